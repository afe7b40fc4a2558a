# cmake -DSOURCE=<dir> -DDEST=<dir> -P CopyAssets.cmake
# Copies the program folder's files beside a program when they changed. The
# program marks default.htm read-only, so a changed file is made writable
# before it is replaced (and read-only files stay as the program left them).
file(GLOB_RECURSE assets RELATIVE "${SOURCE}" "${SOURCE}/*")
foreach(asset IN LISTS assets)
  set(from "${SOURCE}/${asset}")
  set(to "${DEST}/${asset}")
  if(EXISTS "${to}")
    file(SHA256 "${from}" new_hash)
    file(SHA256 "${to}" old_hash)
    if(new_hash STREQUAL old_hash)
      continue()
    endif()
    file(CHMOD "${to}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
  get_filename_component(dir "${to}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  file(COPY_FILE "${from}" "${to}")
endforeach()
