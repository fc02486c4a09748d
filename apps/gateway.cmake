# tarnlight-gateway: the engine without a window, for unattended service.
add_executable(tarnlight-gateway ${CMAKE_CURRENT_LIST_DIR}/gateway_main.cpp)
target_link_libraries(tarnlight-gateway PRIVATE tl_engine)
