# The Windows program's folder and its installer, included by the top-level CMakeLists.txt in
# Windows builds only (the Linux install rules and the Debian package are not read there).
#
#   cmake --build --preset windows --target windows_installer   -> Brellis-<version>-setup.exe
#
# The program's folder: brellis.exe, the DLLs it loads (Qt, QCustomPlot, the MinGW runtime,
# OpenSSL, libmosquitto, libxlsxwriter, zlib), Qt's plugins in the folders beside it where Qt
# looks first, and the icons folder.
install(TARGETS brellis RUNTIME DESTINATION .)
install(FILES "icons/OSTRA LOGO4.gif" icons/redlight.bmp icons/greenlight.bmp DESTINATION icons)
install(DIRECTORY icons/hicolor DESTINATION icons FILES_MATCHING PATTERN "*.png")
install(FILES README.md LICENSE DESTINATION .)

set(qt_plugins ${BRELLIS_WINDOWS_SDK}/plugins)
set(brellis_plugins platforms/qwindows.dll imageformats/qgif.dll imageformats/qico.dll
    styles/qwindowsvistastyle.dll)
foreach(plugin IN LISTS brellis_plugins)
  get_filename_component(folder ${plugin} DIRECTORY)
  install(FILES ${qt_plugins}/${plugin} DESTINATION ${folder})
endforeach()

find_program(BRELLIS_MAKENSIS makensis)
set(stage ${CMAKE_BINARY_DIR}/windows-stage)
set(installer ${CMAKE_BINARY_DIR}/Brellis-${PROJECT_VERSION}-setup.exe)
# Where the DLLs come from: the SDK, MinGW's runtime and its zlib.
set(dll_search "${BRELLIS_WINDOWS_SDK}/bin:${BRELLIS_WINDOWS_SDK}/lib:/usr/x86_64-w64-mingw32/lib:\
/usr/lib/gcc/x86_64-w64-mingw32/12-posix")
set(plugin_files)
foreach(plugin IN LISTS brellis_plugins)
  list(APPEND plugin_files ${qt_plugins}/${plugin})
endforeach()
add_custom_target(windows_installer
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${stage} --strip
  COMMAND ${CMAKE_SOURCE_DIR}/packaging/windows/collect-dlls ${stage} ${dll_search}
          ${stage}/brellis.exe ${plugin_files}
  COMMAND x86_64-w64-mingw32-strip --strip-unneeded ${stage}/*.dll
  COMMAND ${BRELLIS_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DSTAGE=${stage}
          -DOUTFILE=${installer} ${CMAKE_SOURCE_DIR}/packaging/windows/brellis.nsi
  DEPENDS brellis
  BYPRODUCTS ${installer}
  COMMENT "Making ${installer}")
