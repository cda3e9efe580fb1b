# Pagewright.dll: the library alone, cross-built with MinGW-w64 (cmake/toolchains/). The raster
# device, the command and the Linux tests need FreeType, libtiff and POSIX, and stay out; the
# Windows tests are hosts that load the DLL under Wine (tests/windows/).
find_package(Threads REQUIRED)
add_subdirectory(src)

set(pw_api_dir ${PROJECT_SOURCE_DIR}/src/api)
set(pw_gen_dir ${PROJECT_BINARY_DIR}/messages)

# The message-table resource (type 11, name 1, language 0x0409), generated from the one message
# list: messages.def -> .mc -> windmc (ANSI texts) -> windres -> a COFF object linked into the DLL,
# with the version information.
if(NOT PAGEWRIGHT_WINDMC)
  string(REGEX REPLACE "gcc(-posix|-win32)?$" "windmc" PAGEWRIGHT_WINDMC "${CMAKE_C_COMPILER}")
endif()
if(NOT CMAKE_RC_COMPILER)
  string(REGEX REPLACE "gcc(-posix|-win32)?$" "windres" CMAKE_RC_COMPILER "${CMAKE_C_COMPILER}")
endif()
add_custom_command(
  OUTPUT ${pw_gen_dir}/messages.mc
  COMMAND ${CMAKE_COMMAND} -E make_directory ${pw_gen_dir}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/resources/messages.def
          -DOUTPUT=${pw_gen_dir}/messages.mc -P ${PROJECT_SOURCE_DIR}/cmake/make_mc.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/messages.def ${PROJECT_SOURCE_DIR}/cmake/make_mc.cmake
  COMMENT "Writing the message compiler input from messages.def")
add_custom_command(
  OUTPUT ${pw_gen_dir}/messages.rc ${pw_gen_dir}/MSG00409.bin ${pw_gen_dir}/messages.h
  COMMAND ${PAGEWRIGHT_WINDMC} --ascii_in --ascii_out -h ${pw_gen_dir} -r ${pw_gen_dir}
          ${pw_gen_dir}/messages.mc
  DEPENDS ${pw_gen_dir}/messages.mc
  COMMENT "Compiling the message table")
# The resource script adds the version information to the message table.
configure_file(${PROJECT_SOURCE_DIR}/resources/pagewright.rc.in ${pw_gen_dir}/pagewright.rc @ONLY)
add_custom_command(
  OUTPUT ${pw_gen_dir}/resources.obj
  COMMAND ${CMAKE_RC_COMPILER} -I ${pw_gen_dir} -i ${pw_gen_dir}/pagewright.rc
          -o ${pw_gen_dir}/resources.obj -O coff
  WORKING_DIRECTORY ${pw_gen_dir}
  DEPENDS ${pw_gen_dir}/pagewright.rc ${pw_gen_dir}/messages.rc ${pw_gen_dir}/MSG00409.bin
  COMMENT "Compiling the resources")
# The rules live in this directory, the DLL in src/: a target here runs them first.
add_custom_target(pagewright_resources DEPENDS ${pw_gen_dir}/resources.obj)
set_source_files_properties(${pw_gen_dir}/resources.obj PROPERTIES
  EXTERNAL_OBJECT TRUE GENERATED TRUE)
target_sources(pagewright PRIVATE ${pw_gen_dir}/resources.obj)
add_dependencies(pagewright pagewright_resources)

# The exports are exactly those of the .def file, undecorated. The C and C++ run-time parts and
# winpthread are linked in, so that the DLL imports system DLLs only.
set_target_properties(pagewright PROPERTIES
  OUTPUT_NAME Pagewright
  PREFIX ""
  IMPORT_PREFIX ""
  LINK_DEPENDS ${pw_api_dir}/pagewright.def)
target_link_options(pagewright PRIVATE
  ${pw_api_dir}/pagewright.def
  -static-libgcc -static-libstdc++ -static
  -Wl,--no-insert-timestamp)

# The archive for host authors, pagewright-<version>-win32.zip or -win64.zip (cpack, or
# scripts/windows_packages.sh for Release builds of both): the DLL, stripped, its import library
# and .def, the header and README-windows.txt.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(PAGEWRIGHT_ARCHITECTURE win64)
else()
  set(PAGEWRIGHT_ARCHITECTURE win32)
endif()
configure_file(${PROJECT_SOURCE_DIR}/resources/README-windows.txt.in
  ${PROJECT_BINARY_DIR}/README-windows.txt @ONLY)
install(TARGETS pagewright RUNTIME DESTINATION bin COMPONENT windows_package
  ARCHIVE DESTINATION lib COMPONENT windows_package)
install(FILES ${pw_api_dir}/pagewright.def DESTINATION lib RENAME Pagewright.def
  COMPONENT windows_package)
install(FILES ${PROJECT_SOURCE_DIR}/include/pagewright/pagewright.h
  DESTINATION include/pagewright COMPONENT windows_package)
install(FILES ${PROJECT_BINARY_DIR}/README-windows.txt DESTINATION . COMPONENT windows_package)
set(CPACK_GENERATOR ZIP)
set(PAGEWRIGHT_PACKAGE pagewright-${PROJECT_VERSION}-${PAGEWRIGHT_ARCHITECTURE})
set(CPACK_PACKAGE_FILE_NAME ${PAGEWRIGHT_PACKAGE})
set(CPACK_STRIP_FILES ON)
# Only this component: src/ installs the Linux layout (CMake package files, all headers) too.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL windows_package)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)

if(PAGEWRIGHT_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()
