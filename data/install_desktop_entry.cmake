# Run by `cmake --install`: writes share/applications/kestrova-tv-player.desktop from its template, with the
# installed player's full path in the Exec lines, quoted and escaped exactly as the player does for the entry
# it writes itself (library/file_types.cpp). Set before: KTV_ENTRY_TEMPLATE, KTV_BINDIR, KTV_DATADIR.

function(ktv_installed_path out folder)
  if(IS_ABSOLUTE "${folder}")
    set(${out} "${folder}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${folder}" PARENT_SCOPE)
  endif()
endfunction()

ktv_installed_path(bindir "${KTV_BINDIR}")
ktv_installed_path(datadir "${KTV_DATADIR}")

# Inside the quotes of an Exec argument ", `, $ and \ take a backslash and % is doubled; the key file's own
# string escaping then doubles every backslash once more.
set(exec "${bindir}/kestrova-tv")
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "\"" "\\\"" exec "${exec}")
string(REPLACE "`" "\\`" exec "${exec}")
string(REPLACE "$" "\\$" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")
string(REPLACE "\\" "\\\\" exec "\"${exec}\"")

file(READ "${KTV_ENTRY_TEMPLATE}" entry)
string(REPLACE "@KTV_EXEC@" "${exec}" entry "${entry}")

set(destination "$ENV{DESTDIR}${datadir}/applications/kestrova-tv-player.desktop")
message(STATUS "Installing: ${destination}")
file(MAKE_DIRECTORY "$ENV{DESTDIR}${datadir}/applications")
file(WRITE "${destination}" "${entry}")
# Listed in install_manifest.txt like every other installed file, so that the uninstall removes it too.
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${destination}")
