# tarnlight-bench-scan: how fresh the areas stay with scan periods (scripts/bench-scan).
if(TARGET tl_sim)
  add_executable(tarnlight-bench-scan ${CMAKE_CURRENT_LIST_DIR}/scan_rates.cpp)
  target_link_libraries(tarnlight-bench-scan PRIVATE tl_engine tl_sim)
endif()
