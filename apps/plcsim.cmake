# tarnlight-plcsim: the PLC simulator on a pty (or a real serial port).
add_executable(tarnlight-plcsim ${CMAKE_CURRENT_LIST_DIR}/plcsim_main.cpp)
target_link_libraries(tarnlight-plcsim PRIVATE tl_sim)
