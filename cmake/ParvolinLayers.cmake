# The layers of the system and what each may use: the one table behind the libraries (each layer
# is the static library parvolin_<layer>, linking exactly the layers it may use) and behind the
# check that no source includes a header of a layer it may not use (cmake/CheckLayers.cmake, run
# by the tests as Layers.*).
#
# Core layers are plain C++ in src/<layer>/ and never link Qt. A layer with Qt code (windows, the
# settings store) keeps it in src/<layer>/ui/, the library parvolin_<layer>_ui, which may use its
# core layer, everything that one uses, Qt, and the ui layers listed for it.
#
# To add a layer: its name in PARVOLIN_CORE_LAYERS after every layer it uses, and its uses.

set(PARVOLIN_CORE_LAYERS base device codec sim engine app tools)

set(PARVOLIN_USES_base "")
set(PARVOLIN_USES_device base)
set(PARVOLIN_USES_codec base)
set(PARVOLIN_USES_sim base device codec)
set(PARVOLIN_USES_engine base device codec)
set(PARVOLIN_USES_app base device codec sim engine)
set(PARVOLIN_USES_tools base device codec sim engine app)

set(PARVOLIN_UI_LAYERS app)
set(PARVOLIN_UI_USES_app "")
