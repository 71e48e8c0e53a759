# Installs the build into a fresh prefix, then configures, builds and runs the host against it.
file(REMOVE_RECURSE ${WORK_DIR})
foreach(step
        "${CMAKE_COMMAND};--install;${BUILD_DIR};--prefix;${WORK_DIR}/prefix"
        "${CMAKE_COMMAND};-S;${HOST_SOURCE_DIR};-B;${WORK_DIR}/host;-G;${GENERATOR};-DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix"
        "${CMAKE_COMMAND};--build;${WORK_DIR}/host"
        "${WORK_DIR}/host/host")
    execute_process(COMMAND ${step} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
