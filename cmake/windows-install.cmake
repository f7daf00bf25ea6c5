# What the Windows build installs: the programs, the licence and the README,
# in one folder of their own.
install(TARGETS bc245xlt-cli RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
