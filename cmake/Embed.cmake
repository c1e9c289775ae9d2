# Compiles data files under resources/ into the library as byte arrays, looked up by their
# path relative to resources/ (see src/core/EmbeddedResources.h).
function(qel_embed_resources out_var files)
  set(gen ${PROJECT_BINARY_DIR}/generated/EmbeddedResources.cpp)
  add_custom_command(
    OUTPUT ${gen}
    COMMAND ${CMAKE_COMMAND} -DOUT=${gen} -DROOT=${PROJECT_SOURCE_DIR}/resources
            "-DFILES=${files}" -P ${PROJECT_SOURCE_DIR}/cmake/EmbedScript.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/EmbedScript.cmake
    COMMENT "Embedding resources" VERBATIM)
  set(${out_var} ${gen} PARENT_SCOPE)
endfunction()
