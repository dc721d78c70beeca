# Run by CPack on the package's files before it packs them: the Debian layout
# of the documents, which `cmake --install` leaves plain. The manual pages and
# the changelog are compressed without a time stamp (the same bytes on every
# run) and the licence is the package's copyright file.
find_program(GZIP gzip REQUIRED)

function(compress file)
  execute_process(COMMAND ${GZIP} -9nf ${file} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

file(GLOB_RECURSE files ${CPACK_TEMPORARY_DIRECTORY}/*)
set(pages ${files})
list(FILTER pages INCLUDE REGEX "/share/man/man1/[^/]+\\.1$")
set(licences ${files})
list(FILTER licences INCLUDE REGEX "/share/doc/${CPACK_PACKAGE_NAME}/LICENSE$")

foreach(page ${pages})
  compress(${page})
endforeach()
foreach(licence ${licences})
  get_filename_component(documents ${licence} DIRECTORY)
  file(RENAME ${licence} ${documents}/copyright)
  file(COPY_FILE ${CPACK_DEBIAN_CHANGELOG} ${documents}/changelog)
  compress(${documents}/changelog)
endforeach()
