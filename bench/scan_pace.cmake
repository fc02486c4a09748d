# tarnlight-bench-pace: the request schedule with the mirror on (scripts/bench-scan).
if(TARGET tl_sim)
  add_executable(tarnlight-bench-pace ${CMAKE_CURRENT_LIST_DIR}/scan_pace.cpp)
  target_link_libraries(tarnlight-bench-pace PRIVATE tl_engine tl_sim)
endif()
