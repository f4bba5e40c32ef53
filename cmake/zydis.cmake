# Zydis' decoder, which menupatch-check measures code with, as a static library
# of each build (the Windows checker, the Linux checker, the tests), from the
# sources scripts/zydis.sh takes from Debian into the cache. Its decoder only:
# no formatter, no encoder, no Xeon Phi (KNC) instructions, none of which 32-bit
# programs hold.
set(MENUPATCH_ZYDIS "${PROJECT_SOURCE_DIR}/.cache/zydis" CACHE PATH "Zydis' sources and Zycore's headers")
if(NOT EXISTS "${MENUPATCH_ZYDIS}/src/include/Zydis/Zydis.h")
  message(FATAL_ERROR "Zydis' sources are not in ${MENUPATCH_ZYDIS}: scripts/zydis.sh fetch takes them "
                      "(make does it first)")
endif()
set(zydis_sources)
foreach(name IN ITEMS Decoder DecoderData MetaInfo Mnemonic Register Segment SharedData Utils Zydis)
  list(APPEND zydis_sources "${MENUPATCH_ZYDIS}/src/src/${name}.c")
endforeach()
add_library(zydis_decoder STATIC ${zydis_sources})
target_include_directories(zydis_decoder SYSTEM PUBLIC "${MENUPATCH_ZYDIS}/src/include" "${MENUPATCH_ZYDIS}/zycore/include")
target_include_directories(zydis_decoder PRIVATE "${MENUPATCH_ZYDIS}/src/src")
target_compile_definitions(zydis_decoder PUBLIC ZYDIS_STATIC_BUILD ZYCORE_STATIC_BUILD
  PRIVATE ZYDIS_DISABLE_ENCODER ZYDIS_DISABLE_FORMATTER ZYDIS_DISABLE_KNC)
# Not our code: its warnings are its maintainers'. Built without build paths, as the checker is.
target_compile_options(zydis_decoder PRIVATE -w -ffunction-sections -fdata-sections
  -ffile-prefix-map=${MENUPATCH_ZYDIS}=zydis)
