# Sound capture and mixing (included by engine/CMakeLists.txt).
target_sources(vexa_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/add_audio_stream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/audio.cpp
  ${CMAKE_CURRENT_LIST_DIR}/audio_block.cpp
  ${CMAKE_CURRENT_LIST_DIR}/candidate_formats.cpp
  ${CMAKE_CURRENT_LIST_DIR}/encoder_choice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/endpoint_record.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_drift.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sound_mixer.cpp
)
