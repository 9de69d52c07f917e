# Pads the linked updater with zeros to exactly SIZE bytes: the package is appended at that
# offset, so the file must end exactly there. Fails when the image has outgrown it.
file(SIZE "${INPUT}" linked)
if(linked GREATER SIZE)
  message(FATAL_ERROR "The linked updater is ${linked} bytes, larger than its package offset "
                      "${SIZE}: shrink the image or raise TAVREL_PACKAGE_OFFSET.")
endif()
file(COPY_FILE "${INPUT}" "${OUTPUT}")
execute_process(COMMAND truncate -s "${SIZE}" "${OUTPUT}" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "Could not pad ${OUTPUT} to ${SIZE} bytes.")
endif()
file(SIZE "${OUTPUT}" padded)
if(NOT padded EQUAL SIZE)
  message(FATAL_ERROR "${OUTPUT} is ${padded} bytes, not ${SIZE}.")
endif()
