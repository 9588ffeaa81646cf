# end-to-end tests of the tools

# The simulated tester, through its terminal and its replay files.
vezive_test(tst_vezivesim tools/tst_vezivesim.cpp)
target_compile_definitions(tst_vezivesim PRIVATE VEZIVE_SIM="$<TARGET_FILE:vezive-sim>")
add_dependencies(tst_vezivesim vezive-sim)
