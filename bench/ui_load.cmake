# tarnlight-bench-ui: the window under the heaviest load (scripts/bench-ui).
if(TARGET tl_ui AND TARGET tl_sim)
  add_executable(tarnlight-bench-ui ${CMAKE_CURRENT_LIST_DIR}/ui_load.cpp)
  target_link_libraries(tarnlight-bench-ui PRIVATE tl_ui tl_sim)
endif()
