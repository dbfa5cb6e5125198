# Writes the freedesktop entry into the application directory at install time, naming that directory in Exec= and
# Icon= (a menu entry outside the directory needs absolute paths). ZARN_DESKTOP_ENTRY_TEMPLATE is set by the
# install step before this script.
get_filename_component(app_dir "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
file(READ "${ZARN_DESKTOP_ENTRY_TEMPLATE}" entry)
string(REPLACE "@APPDIR@" "${app_dir}" entry "${entry}")
set(target "$ENV{DESTDIR}${app_dir}/com.ostrevant.Quillorna.desktop")
message(STATUS "Installing: ${target}")
file(WRITE "${target}" "${entry}")
