# Checks around the UEFI link, run as a script (cmake -P):
#   -DOBJDUMP=... -DOBJECT_LIST=file  refuse objects with static constructors;
#   -DIMAGE=file -DMAX_SIZE=n         refuse an image larger than n bytes (0: no limit);
#   -DIMAGE=file -DOBJDUMP=... -DMAX_DATA=n  refuse an image whose .data holds more
#                                     than n bytes of the file.
if(DEFINED OBJECT_LIST)
  file(STRINGS ${OBJECT_LIST} objects)
  execute_process(COMMAND ${OBJDUMP} --section-headers ${objects}
                  OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} failed on the UEFI objects")
  endif()
  # Microsoft-ABI constructors go to .CRT$XC*, Itanium-ABI ones to .ctors or
  # .init_array; the EFI entry runs none of them.
  set(file "")
  string(REPLACE "\n" ";" lines "${headers}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^(.+\\.obj):[ \t]+file format")
      set(file ${CMAKE_MATCH_1})
    elseif(line MATCHES "\\.CRT\\$XC|\\.ctors|\\.init_array")
      message(FATAL_ERROR "${file} has a static constructor (global object with a "
                          "non-constant initialiser); the UEFI image would never run it")
    endif()
  endforeach()
endif()

if(DEFINED IMAGE)
  file(SIZE ${IMAGE} size)
  if(MAX_SIZE GREATER 0 AND size GREATER MAX_SIZE)
    file(REMOVE ${IMAGE})
    message(FATAL_ERROR "${IMAGE} is ${size} bytes, more than the ${MAX_SIZE} allowed")
  endif()
endif()

if(DEFINED MAX_DATA)
  execute_process(COMMAND ${OBJDUMP} --section-headers ${IMAGE}
                  OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT headers MATCHES "\\.data[ \t]+([0-9a-fA-F]+)")
    message(FATAL_ERROR "${OBJDUMP} shows no .data section in ${IMAGE}")
  endif()
  math(EXPR data_size "0x${CMAKE_MATCH_1}")
  if(data_size GREATER MAX_DATA)
    message(FATAL_ERROR "${IMAGE} carries ${data_size} bytes of .data, more than ${MAX_DATA}: "
                        "zero-initialised state belongs in .bss")
  endif()
  message(STATUS "${IMAGE}: ${data_size} bytes of .data")
endif()
