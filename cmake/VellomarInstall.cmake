# What `cmake --install build --prefix <dir>` puts where. The vault lies beside
# the program, so the program goes straight into the prefix, a folder the user
# owns (e.g. ~/Vellomar): the vault becomes <dir>/vellomar.pgs.
#
# The desktop entry and the icons go into VMR_DATA_DIR, by default the
# prefix's share/. A desktop finds them only in a folder it searches
# ($XDG_DATA_HOME or $XDG_DATA_DIRS), so users who install into their own
# folder configure with -DVMR_DATA_DIR=$HOME/.local/share.
set(VMR_DATA_DIR "" CACHE PATH
    "Where the desktop entry and the icons go (empty: the install prefix's share/)")

install(TARGETS vellomar RUNTIME DESTINATION .)

if(VMR_DATA_DIR)
    set(data_dir "${VMR_DATA_DIR}")
else()
    set(data_dir share)
endif()

set(icon_dir ${data_dir}/icons/hicolor)
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/vellomar-${size}.png
            DESTINATION ${icon_dir}/${size}x${size}/apps RENAME vellomar.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/assets/vellomar.svg DESTINATION ${icon_dir}/scalable/apps)

# The entry's Exec names the installed program by its absolute path, which is
# known only when installing (--prefix may differ from the configured one).
install(CODE "
    set(VMR_ENTRY_TEMPLATE \"${PROJECT_SOURCE_DIR}/assets/vellomar.desktop.in\")
    set(VMR_ENTRY_DATA_DIR \"${data_dir}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/WriteDesktopEntry.cmake\")
")
