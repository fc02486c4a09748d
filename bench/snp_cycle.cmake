# tarnlight-bench-snp: one cycle's SNP traffic against the simulator.
if(TARGET tl_sim)
  add_executable(tarnlight-bench-snp ${CMAKE_CURRENT_LIST_DIR}/snp_cycle.cpp)
  target_link_libraries(tarnlight-bench-snp PRIVATE tl_snp tl_sim)
endif()
