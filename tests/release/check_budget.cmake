# Fails when the linked updater image (before padding) outgrows its budget, so that growth is
# seen well before the image stops fitting the fixed package offset.
#   cmake -DIMAGE=path -DBUDGET=bytes -DLIMIT=bytes -P check_budget.cmake
file(SIZE "${IMAGE}" size)
math(EXPR room "${BUDGET} - ${size}")
math(EXPR margin "${LIMIT} - ${size}")
if(size GREATER BUDGET)
  message(FATAL_ERROR "${IMAGE} is ${size} bytes, over its budget of ${BUDGET} bytes "
                      "(${margin} bytes left before the ${LIMIT}-byte package offset)")
endif()
message(STATUS "${IMAGE}: ${size} bytes, ${room} bytes below the budget of ${BUDGET}")
