cmake_policy(VERSION 3.25)
# Copies the shipped Images/ and Data/ folders into the staged application folder. Pictures
# and other shipped files are refreshed on every build; the state files (the selection,
# options and autostart files, and the category files) belong to the user once they exist in
# the stage and are never overwritten. A stage that already has a Data folder gets no
# category file back that its user deleted.
#   cmake -DSOURCE_DIR=<repo> -DSTAGE_DIR=<stage> -P stage_files.cmake
set(state_files SelectedPrograms.txt AutoStart.txt SelectedOptions.txt)

file(GLOB images RELATIVE "${SOURCE_DIR}/Images" "${SOURCE_DIR}/Images/*")
foreach(name ${images})
    set(target "${STAGE_DIR}/Images/${name}")
    if(name IN_LIST state_files AND EXISTS "${target}")
        continue()
    endif()
    file(COPY_FILE "${SOURCE_DIR}/Images/${name}" "${target}" ONLY_IF_DIFFERENT)
endforeach()

if(NOT EXISTS "${STAGE_DIR}/Data")
    file(MAKE_DIRECTORY "${STAGE_DIR}/Data")
    file(GLOB categories RELATIVE "${SOURCE_DIR}/Data" "${SOURCE_DIR}/Data/*")
    foreach(name ${categories})
        file(COPY_FILE "${SOURCE_DIR}/Data/${name}" "${STAGE_DIR}/Data/${name}")
    endforeach()
endif()
