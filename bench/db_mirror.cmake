# tarnlight-bench-db: the mirror database's statement costs on a private
# MariaDB server (scripts/bench-db starts one).
add_executable(tarnlight-bench-db ${CMAKE_CURRENT_LIST_DIR}/db_mirror.cpp)
target_link_libraries(tarnlight-bench-db PRIVATE tl_db)
