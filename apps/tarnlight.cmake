# tarnlight: the operator's window.
if(TARGET tl_ui)
  add_executable(tarnlight ${CMAKE_CURRENT_LIST_DIR}/tarnlight_main.cpp)
  target_link_libraries(tarnlight PRIVATE tl_ui)
endif()
