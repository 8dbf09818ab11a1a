# Precompiled headers for the targets whose sources spend most of their
# compile time parsing the same big headers (Qt's widgets, GoogleTest, the
# standard library): parsed once per target instead of once per source.
# Only headers every such source may see without harm go here.
set(HV_PCH_STD <algorithm> <atomic> <cstdint> <functional> <map> <memory> <mutex> <string>
    <thread> <vector>)
set(HV_PCH_QT <QAction> <QApplication> <QLabel> <QMainWindow> <QMenuBar> <QPainter>
    <QPushButton> <QSlider> <QTimer> <QWidget>)

# hv_precompile(target [QT] [GTEST])
function(hv_precompile target)
  cmake_parse_arguments(ARG "QT;GTEST" "" "" ${ARGN})
  set(headers ${HV_PCH_STD})
  if(ARG_QT)
    list(APPEND headers ${HV_PCH_QT})
  endif()
  if(ARG_GTEST)
    list(APPEND headers <gtest/gtest.h>)
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()
