# The agent's identity on a Mac: an Info.plist embedded in the executable, and a code signature
# that names the same identifier. macOS keys the Accessibility permission to the code's identity,
# so a build must keep both stable to keep the permission (docs/macos.md).

set(MII_BUNDLE_IDENTIFIER "com.example.mac-input-injector" CACHE STRING
  "CFBundleIdentifier of the agent and the identifier it is signed with (reverse-DNS)")
# A bundle identifier holds letters, digits, hyphens and periods only, which also keeps it safe in
# the XML below and on codesign's command line.
if(NOT MII_BUNDLE_IDENTIFIER MATCHES "^[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)+$")
  message(FATAL_ERROR "MII_BUNDLE_IDENTIFIER \"${MII_BUNDLE_IDENTIFIER}\" is not a reverse-DNS "
                      "identifier (letters, digits, hyphens, at least two parts joined by periods)")
endif()

# Generated on every platform so that its content is checked everywhere; embedded only in a
# build against macOS's frameworks.
set(MII_INFO_PLIST ${PROJECT_BINARY_DIR}/Info.plist)
configure_file(${PROJECT_SOURCE_DIR}/cmake/Info.plist.in ${MII_INFO_PLIST} @ONLY)

if(MII_PLATFORM STREQUAL "macos")
  # A command-line tool carries its Info.plist in a __TEXT section of that name, which the system
  # reads as a bundle's. The linker option goes to ld for each architecture of a universal build.
  target_link_options(mac-input-injector PRIVATE
    "LINKER:-sectcreate,__TEXT,__info_plist,${MII_INFO_PLIST}")
  set_property(TARGET mac-input-injector APPEND PROPERTY LINK_DEPENDS ${MII_INFO_PLIST})
  # Installing copies the signed file as it is: with the install rpath (none) already in the build,
  # install_name_tool has nothing to rewrite and the signature stays valid.
  set_target_properties(mac-input-injector PROPERTIES BUILD_WITH_INSTALL_RPATH ON)

  set(MII_CODESIGN_IDENTITY "" CACHE STRING
    "Signing identity for codesign (a Developer ID Application); empty: sign ad hoc")
  find_program(CODESIGN codesign)
  if(NOT CODESIGN)
    message(STATUS "codesign not found: the agent is not signed after the link; sign it on a Mac "
                   "before shipping it (docs/macos.md)")
  else()
    if(MII_CODESIGN_IDENTITY)
      # The hardened runtime and a secure timestamp are what notarization asks of a Developer ID
      # signature.
      set(mii_signing --sign ${MII_CODESIGN_IDENTITY} --options runtime --timestamp)
      set(mii_signed_as "as ${MII_CODESIGN_IDENTITY}")
    else()
      # Ad hoc: no identity, but the identifier is still the bundle's rather than the file name.
      set(mii_signing --sign -)
      set(mii_signed_as "ad hoc")
    endif()
    add_custom_command(TARGET mac-input-injector POST_BUILD
      COMMAND ${CODESIGN} --force ${mii_signing} --identifier ${MII_BUNDLE_IDENTIFIER}
              $<TARGET_FILE:mac-input-injector>
      COMMENT "Signing mac-input-injector ${mii_signed_as}"
      VERBATIM)
  endif()
endif()
