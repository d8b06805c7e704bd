# pitchlog.exe for 64-bit Windows and its package, included by the top-level
# CMakeLists.txt on Windows.

# Against a shared OpenCV (MSYS2's, say) pitchlog.exe needs OpenCV's DLLs on
# PATH, and no package is made; what follows needs the static OpenCV that
# scripts/windows builds.
if(OpenCV_SHARED)
  return()
endif()

# One file that needs no DLL beside it: the C and C++ runtimes, winpthreads
# and the static OpenCV, libpng and zlib all linked in; OpenCV's windows need
# a few more of Windows' own libraries.
target_link_options(pitchlog PRIVATE -static -s)
target_link_libraries(pitchlog PRIVATE comdlg32 comctl32 gdi32 ole32 setupapi ws2_32 user32)

# pitchlog-windows-x64.zip: pitchlog.exe, data\ and README.txt, what a Windows
# user downloads. The README gets Windows line ends and a byte-order mark so
# that Notepad shows it right under any code page.
set(readme_source ${PROJECT_SOURCE_DIR}/docs/windows-readme.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${readme_source})
file(READ ${readme_source} readme)
string(REPLACE "\n" "\r\n" readme "${readme}")
string(ASCII 239 187 191 utf8_bom)
file(WRITE ${CMAKE_BINARY_DIR}/package-readme.txt "${utf8_bom}${readme}")

file(GLOB package_pictures CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/*.png)
set(package_dir ${CMAKE_BINARY_DIR}/package)
set(package_zip ${CMAKE_BINARY_DIR}/pitchlog-windows-x64.zip)
add_custom_command(
  OUTPUT ${package_zip}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${package_dir} ${package_zip}.part
  COMMAND ${CMAKE_COMMAND} -E make_directory ${package_dir}/data
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:pitchlog> ${package_dir}/pitchlog.exe
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/package-readme.txt ${package_dir}/README.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${package_pictures} ${package_dir}/data
  # File names go into the zip as UTF-8 (flagged so), which needs a UTF-8 locale.
  COMMAND ${CMAKE_COMMAND} -E chdir ${package_dir} ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
          ${CMAKE_COMMAND} -E tar cf ${package_zip}.part --format=zip pitchlog.exe README.txt data
  COMMAND ${CMAKE_COMMAND} -E rename ${package_zip}.part ${package_zip}
  DEPENDS pitchlog ${CMAKE_BINARY_DIR}/package-readme.txt ${package_pictures}
  COMMENT "Packing pitchlog-windows-x64.zip"
  VERBATIM)
add_custom_target(pitchlog_zip ALL DEPENDS ${package_zip})

# capture-overhead.exe: the capture overhead of pitchlog.exe, for scripts/bench.
add_executable(capture-overhead bench/windows/capture_overhead_main.cpp)
target_link_libraries(capture-overhead PRIVATE pitchlog_core gdi32 user32)
target_link_options(capture-overhead PRIVATE -static)
