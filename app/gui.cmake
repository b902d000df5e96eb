# The windows: main window, progress window, open-file dialog and the
# activation component. Only this part of the program links Qt Widgets.
add_library(velk_gui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ActivationComponent.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ActivationComponent.h
  ${CMAKE_CURRENT_LIST_DIR}/CommonDialog1.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CommonDialog1.h
  ${CMAKE_CURRENT_LIST_DIR}/DialogFont.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DialogFont.h
  ${CMAKE_CURRENT_LIST_DIR}/LibraryContentsWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LibraryContentsWindow.h
  ${CMAKE_CURRENT_LIST_DIR}/LibraryContentsWindow.ui
  ${CMAKE_CURRENT_LIST_DIR}/LoadStatus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LoadStatus.h
  ${CMAKE_CURRENT_LIST_DIR}/LoadStatus.ui
  ${CMAKE_CURRENT_LIST_DIR}/LoadStatusHost.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LoadStatusHost.h
  ${CMAKE_CURRENT_LIST_DIR}/PatEdConfig.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PatEdConfig.h
  ${CMAKE_CURRENT_LIST_DIR}/PatEdConfig.ui
)
set_target_properties(velk_gui PROPERTIES AUTOMOC ON AUTOUIC ON)
target_link_libraries(velk_gui PUBLIC velk_core Qt6::Widgets)
