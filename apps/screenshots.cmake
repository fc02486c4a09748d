# tarnlight-screenshots: the window and its pages, connected to the simulator,
# rendered into PNG files (scripts/screenshots).
if(TARGET tl_ui AND TARGET tl_sim)
  add_executable(tarnlight-screenshots ${CMAKE_CURRENT_LIST_DIR}/screenshots_main.cpp)
  target_link_libraries(tarnlight-screenshots PRIVATE tl_ui tl_sim)
endif()
