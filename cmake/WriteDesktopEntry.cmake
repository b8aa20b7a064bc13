# Runs while installing: writes the desktop entry with Exec set to the
# installed program. Expects VMR_ENTRY_TEMPLATE and VMR_ENTRY_DATA_DIR
# (absolute, or relative to the prefix).
cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_PREFIX NORMALIZE OUTPUT_VARIABLE prefix)
cmake_path(ABSOLUTE_PATH VMR_ENTRY_DATA_DIR BASE_DIRECTORY "${prefix}" NORMALIZE
           OUTPUT_VARIABLE data_dir)
set(program "${prefix}/vellomar")
cmake_path(NORMAL_PATH program)

# A path with spaces or other reserved characters is quoted; inside quotes
# the entry format wants ", `, $ and \ escaped, and every \ doubled again.
set(VMR_EXEC "${program}")
if(VMR_EXEC MATCHES "[ \t\"'\\\\><~|&;$*?#()`]")
    string(REPLACE "\\" "\\\\" VMR_EXEC "${VMR_EXEC}")
    string(REGEX REPLACE "([\"`$])" "\\\\\\1" VMR_EXEC "${VMR_EXEC}")
    string(REPLACE "\\" "\\\\" VMR_EXEC "${VMR_EXEC}")
    set(VMR_EXEC "\"${VMR_EXEC}\"")
endif()
# A lone % would start a field code.
string(REPLACE "%" "%%" VMR_EXEC "${VMR_EXEC}")

set(entry "$ENV{DESTDIR}${data_dir}/applications/vellomar.desktop")
message(STATUS "Installing: ${entry}")
configure_file("${VMR_ENTRY_TEMPLATE}" "${entry}" @ONLY)
