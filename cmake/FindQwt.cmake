# Finds Qwt built for Qt 6 (installed by scripts/install-deps.sh into a fixed prefix).
set(_qwt_hints ${QWT_ROOT} $ENV{QWT_ROOT} /opt/tessary-qwt)
find_path(QWT_INCLUDE_DIR qwt_plot.h HINTS ${_qwt_hints} PATH_SUFFIXES include include/qwt)
find_library(QWT_LIBRARY NAMES qwt-qt6 qwt HINTS ${_qwt_hints} PATH_SUFFIXES lib NO_DEFAULT_PATH)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Qwt DEFAULT_MSG QWT_LIBRARY QWT_INCLUDE_DIR)
if(Qwt_FOUND AND NOT TARGET Qwt::Qwt)
  add_library(Qwt::Qwt SHARED IMPORTED)
  set_target_properties(Qwt::Qwt PROPERTIES
    IMPORTED_LOCATION ${QWT_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${QWT_INCLUDE_DIR}
    INTERFACE_COMPILE_DEFINITIONS QWT_DLL
    INTERFACE_LINK_LIBRARIES "Qt6::Widgets;Qt6::Svg;Qt6::PrintSupport;Qt6::Concurrent")
endif()
