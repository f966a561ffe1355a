# cmake --install: the same tree as the stage, under CMAKE_INSTALL_PREFIX.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/demo/ DESTINATION Configuration)
if(EXISTS ${PROJECT_SOURCE_DIR}/data/resources)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/resources/ DESTINATION Resources)
endif()
