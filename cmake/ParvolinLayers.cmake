# The layers of the system and what each may use: the one table behind the libraries (each layer
# is the static library parvolin_<layer>, linking exactly the layers it may use) and behind the
# check that no source includes a header of a layer it may not use (cmake/CheckLayers.cmake, run
# by the tests as Layers.*).
#
# Core layers are plain C++ in src/<layer>/ and never link Qt. Windows and widgets live in
# src/<layer>/ui/, the library parvolin_<layer>_ui, which may use its core layer, everything that
# one uses, Qt, and the ui layers listed for it. A ui layer may stand without a core layer of its
# own (widgets); its uses are then listed all the same.
#
# Qt code that shows nothing (the settings store on QSettings) lives in src/<layer>/qt/, the
# library parvolin_<layer>_qt: it may use its core layer and everything that one uses, and links
# Qt Core alone, never Qt Gui or Widgets, so that a program without windows (pvtool) can link it.
# Its headers expose no Qt type; a ui layer or a program reaches it through its core layer's
# interface.
#
# To add a layer: its name in PARVOLIN_CORE_LAYERS after every layer it uses, and its uses; for
# window code, its name in PARVOLIN_UI_LAYERS after the ui layers it uses, and the Qt modules it
# needs besides Core and Widgets; for Qt Core code without windows, its name in
# PARVOLIN_QT_LAYERS.

set(PARVOLIN_CORE_LAYERS base settings device codec player sim engine logview control web app
                          config tools webserver)

set(PARVOLIN_USES_base "")
set(PARVOLIN_USES_settings "")
set(PARVOLIN_USES_device base)
set(PARVOLIN_USES_codec base)
set(PARVOLIN_USES_player base codec)
set(PARVOLIN_USES_sim base device codec)
set(PARVOLIN_USES_engine base device codec)
set(PARVOLIN_USES_logview base device codec engine)
set(PARVOLIN_USES_control base device codec engine logview)
# The web server's rules without HTTP: users, sessions, the calls' pages, audio made on the fly.
set(PARVOLIN_USES_web base settings device codec engine logview control)
set(PARVOLIN_USES_app base settings device codec sim engine logview control)
set(PARVOLIN_USES_config base settings device codec engine app)
set(PARVOLIN_USES_tools base settings device codec player sim engine logview control web app
                        config)
# lvsvr's HTTP side: requests, routes, pages.
set(PARVOLIN_USES_webserver base settings device codec engine logview control web)

set(PARVOLIN_QT_LAYERS settings)

set(PARVOLIN_UI_LAYERS widgets logview player config app)
set(PARVOLIN_USES_widgets base)
set(PARVOLIN_UI_USES_widgets "")
set(PARVOLIN_UI_USES_logview widgets)
set(PARVOLIN_UI_USES_player widgets)
set(PARVOLIN_UI_QT_player Multimedia)
set(PARVOLIN_UI_USES_config widgets)
set(PARVOLIN_UI_USES_app widgets logview config)
set(PARVOLIN_UI_QT_app Svg)
