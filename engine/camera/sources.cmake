# Camera capture sources of vexa_engine (included by engine/CMakeLists.txt).
target_sources(vexa_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/camera.cpp
  ${CMAKE_CURRENT_LIST_DIR}/camera_format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/camera_frame_pool.cpp
  ${CMAKE_CURRENT_LIST_DIR}/camera_recording.cpp
  ${CMAKE_CURRENT_LIST_DIR}/camera_stream.cpp
)
