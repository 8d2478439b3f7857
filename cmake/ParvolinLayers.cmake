# The layers of the system and what each may use: the one table behind the libraries (each layer
# is the static library parvolin_<layer>, linking exactly the layers it may use) and behind the
# check that no source includes a header of a layer it may not use (cmake/CheckLayers.cmake, run
# by the tests as Layers.*).
#
# Core layers are plain C++ in src/<layer>/ and never link Qt. Qt code (windows, widgets, the
# settings store) lives in src/<layer>/ui/, the library parvolin_<layer>_ui, which may use its
# core layer, everything that one uses, Qt, and the ui layers listed for it. A ui layer may stand
# without a core layer of its own (widgets); its uses are then listed all the same.
#
# To add a layer: its name in PARVOLIN_CORE_LAYERS after every layer it uses, and its uses; for
# Qt code, its name in PARVOLIN_UI_LAYERS after the ui layers it uses, and the Qt modules it needs
# besides Core and Widgets.

set(PARVOLIN_CORE_LAYERS base device codec player sim engine logview control app config tools)

set(PARVOLIN_USES_base "")
set(PARVOLIN_USES_device base)
set(PARVOLIN_USES_codec base)
set(PARVOLIN_USES_player base codec)
set(PARVOLIN_USES_sim base device codec)
set(PARVOLIN_USES_engine base device codec)
set(PARVOLIN_USES_logview base device codec engine)
set(PARVOLIN_USES_control base device codec engine logview)
set(PARVOLIN_USES_app base device codec sim engine logview control)
set(PARVOLIN_USES_config base device codec engine app)
set(PARVOLIN_USES_tools base device codec player sim engine logview control app config)

set(PARVOLIN_UI_LAYERS widgets logview player config app)
set(PARVOLIN_USES_widgets base)
set(PARVOLIN_UI_USES_widgets "")
set(PARVOLIN_UI_USES_logview widgets)
set(PARVOLIN_UI_USES_player widgets)
set(PARVOLIN_UI_QT_player Multimedia)
set(PARVOLIN_UI_USES_config widgets)
set(PARVOLIN_UI_USES_app widgets logview config)
set(PARVOLIN_UI_QT_app Svg)
