# Writes the sample container's files into CONTENT and its description,
# from DESCRIPTION, with each file's real size and MD5. The payloads are
# plain text of a fixed size: the car kit checks sizes and CRC-32, not
# what a file means.

function(write_payload name size)
  string(REPEAT "${name}: sample payload for the car-kit simulator.\n" 200 block)
  set(text "")
  string(LENGTH "${text}" length)
  while(length LESS size)
    string(APPEND text "${block}")
    string(LENGTH "${text}" length)
  endwhile()
  string(SUBSTRING "${text}" 0 ${size} text)
  file(WRITE ${CONTENT}/${name} "${text}")
  file(SIZE ${CONTENT}/${name} bytes)
  file(MD5 ${CONTENT}/${name} md5)
  string(MAKE_C_IDENTIFIER "${name}" id)
  set(${id}_SIZE ${bytes} PARENT_SCOPE)
  set(${id}_MD5 ${md5} PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${CONTENT})
write_payload(RX7150_Firmware_V139.bin 65536)
write_payload(english_prompts.lng 12000)
write_payload(german_prompts.lng 13000)
write_payload(english_vds_4.vds 5000)
write_payload(german_vds_4.vds 5500)
configure_file(${DESCRIPTION} ${CONTENT}/update.xml @ONLY)
