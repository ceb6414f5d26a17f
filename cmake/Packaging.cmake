# Install rules and the binary archives: bin/mac-input-injector and the documents.
include(GNUInstallDirs)

install(TARGETS mac-input-injector RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/protocol.md
  ${PROJECT_SOURCE_DIR}/docs/macos.md ${PROJECT_SOURCE_DIR}/docs/simulated.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
# A simulated agent posts no input anywhere: whoever unpacks one is told what it is for.
if(MII_PLATFORM STREQUAL "simulated")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/README-simulated.md.in
    ${PROJECT_BINARY_DIR}/README-simulated.md @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/README-simulated.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# mac-input-injector-<version>-<system>-<arch>: the architecture of a Mac build is what it was
# built for, "universal" for several; a simulated build on a Mac says so in the system part, as
# the archive would otherwise pass for the real agent.
set(mii_package_system ${CMAKE_SYSTEM_NAME})
set(mii_package_arch ${CMAKE_SYSTEM_PROCESSOR})
if(APPLE)
  list(LENGTH CMAKE_OSX_ARCHITECTURES mii_arch_count)
  if(mii_arch_count GREATER 1)
    set(mii_package_arch universal)
  elseif(mii_arch_count EQUAL 1)
    set(mii_package_arch ${CMAKE_OSX_ARCHITECTURES})
  endif()
  if(MII_PLATFORM STREQUAL "simulated")
    string(APPEND mii_package_system "-simulated")
  endif()
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Command-line agent that injects keyboard and pointer input through Quartz Event Services")
set(CPACK_PACKAGE_FILE_NAME
  "${PROJECT_NAME}-${PROJECT_VERSION}-${mii_package_system}-${mii_package_arch}")
if(APPLE)
  set(CPACK_GENERATOR TGZ ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git" "/build[^/]*/" "/out/")
include(CPack)
