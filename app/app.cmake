add_executable(korvel-game ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
target_link_libraries(korvel-game PRIVATE logging shell_viewcontroller plugin_bridge plugin_korvel_layouts aggregator_zorvia usercenter_screens platform_web platform_ui platform_memorypressure)
target_compile_definitions(korvel-game PRIVATE KORVEL_DEMO_BUNDLE="${KORVEL_DEMO_BUNDLE}")
