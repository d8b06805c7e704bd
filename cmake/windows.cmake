# pitchlog.exe, pitchlog-pictures.exe and pitchlog-replay.exe for 64-bit
# Windows and their package, included by the top-level CMakeLists.txt on
# Windows.

# Against a shared OpenCV (MSYS2's, say) the programs need OpenCV's DLLs on
# PATH, and no package is made; what follows needs the static OpenCV that
# scripts/windows builds.
if(OpenCV_SHARED)
  return()
endif()

# Each program one file that needs no DLL beside it: the C and C++ runtimes,
# winpthreads and the static OpenCV, libpng and zlib all linked in; OpenCV's
# windows need a few more of Windows' own libraries.
set(package_programs pitchlog pitchlog-pictures)

# pitchlog-replay.exe decodes with FFmpeg's static libraries (scripts/windows
# builds them: the H.264 decoder, the MP4 and Matroska demuxers, the scaler).
set(PITCHLOG_FFMPEG_DIR "" CACHE PATH "FFmpeg's static libraries for pitchlog-replay.exe")
if(PITCHLOG_FFMPEG_DIR)
  add_library(pitchlog_video STATIC ${SRC}/control/capture/video/video_desktop.cpp
                                    ${SRC}/control/capture/video/video_process.cpp
                                    ${SRC}/control/capture/video/libav_reader.cpp)
  target_include_directories(pitchlog_video SYSTEM PRIVATE ${PITCHLOG_FFMPEG_DIR}/include)
  target_link_libraries(pitchlog_video PUBLIC pitchlog_capture opencv_core opencv_imgproc PRIVATE
    ${PITCHLOG_FFMPEG_DIR}/lib/libavformat.a ${PITCHLOG_FFMPEG_DIR}/lib/libavcodec.a
    ${PITCHLOG_FFMPEG_DIR}/lib/libswscale.a ${PITCHLOG_FFMPEG_DIR}/lib/libavutil.a bcrypt)
  pitchlog_layer_view(pitchlog_video control/capture)
  file(GLOB REPLAY_SOURCES CONFIGURE_DEPENDS ${SRC}/replay/*.cpp)
  add_library(pitchlog_replay STATIC ${REPLAY_SOURCES})
  target_link_libraries(pitchlog_replay PUBLIC pitchlog_video pitchlog_control opencv_imgcodecs)
  pitchlog_layer_view(pitchlog_replay replay control screen pitch record)
  add_executable(pitchlog-replay ${SRC}/replay_main.cpp)
  target_link_libraries(pitchlog-replay PRIVATE pitchlog_replay)
  pitchlog_layer_view(pitchlog-replay replay control)
  list(APPEND package_programs pitchlog-replay)
endif()
foreach(program ${package_programs})
  target_link_options(${program} PRIVATE -static -s)
  target_link_libraries(${program} PRIVATE comdlg32 comctl32 gdi32 ole32 setupapi ws2_32 user32)
endforeach()

# pitchlog-windows-x64.zip: the programs, data\ and README.txt, what a Windows
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
set(copy_programs)
set(program_files)
foreach(program ${package_programs})
  list(APPEND copy_programs COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${program}>
       ${package_dir}/${program}.exe)
  list(APPEND program_files ${program}.exe)
endforeach()
add_custom_command(
  OUTPUT ${package_zip}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${package_dir} ${package_zip}.part
  COMMAND ${CMAKE_COMMAND} -E make_directory ${package_dir}/data
  ${copy_programs}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/package-readme.txt ${package_dir}/README.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${package_pictures} ${package_dir}/data
  # File names go into the zip as UTF-8 (flagged so), which needs a UTF-8 locale.
  COMMAND ${CMAKE_COMMAND} -E chdir ${package_dir} ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
          ${CMAKE_COMMAND} -E tar cf ${package_zip}.part --format=zip ${program_files} README.txt
          data
  COMMAND ${CMAKE_COMMAND} -E rename ${package_zip}.part ${package_zip}
  DEPENDS ${package_programs} ${CMAKE_BINARY_DIR}/package-readme.txt ${package_pictures}
  COMMENT "Packing pitchlog-windows-x64.zip"
  VERBATIM)
add_custom_target(pitchlog_zip ALL DEPENDS ${package_zip})

# capture-overhead.exe: the capture overhead of pitchlog.exe, for scripts/bench.
add_executable(capture-overhead bench/windows/capture_overhead_main.cpp)
target_link_libraries(capture-overhead PRIVATE pitchlog_core gdi32 user32)
target_link_options(capture-overhead PRIVATE -static)
