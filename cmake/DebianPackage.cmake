# The Debian package: cpack -G DEB in a build tree (or cmake --build build --target package)
# gives tocsin_VERSION_ARCH.deb with the programs, the menu entry, the icon, the manual pages,
# the copyright file and the changelog. The libraries it depends on are read from the programs
# (dpkg-shlibdeps); Qt's French texts are data, named by hand.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tocsin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "les auteurs de Tocsin")
set(CPACK_PACKAGE_CONTACT "Tocsin developers <tocsin@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
# A JACK server is the usual home of a trigger; PulseAudio and ALSA work without one.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "jackd2 | pipewire-jack")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audio input to MIDI notes, for drum pads and triggers")
# The first line is the summary above; these lines follow it (a lone "." is an empty line).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tocsin listens to a stereo audio input, measures each channel's peak level
and, when a channel rises above its threshold, sends that channel's MIDI
note (held while the level stays above) or plays a WAV sound. Drum pads,
piezo triggers and contact microphones become MIDI triggers for any
synthesiser. It runs on JACK (jackd or PipeWire), PulseAudio or ALSA, and
follows a session manager speaking NSM. Its window speaks French.
.
tocsin-render runs a recorded take through the same detection and writes
a MIDI file, a note list or a picture of the levels.")

# What Debian asks beside the programs.
include(GNUInstallDirs)
set(tocsin_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tocsin)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND sh -c "gzip -9n -c '${CMAKE_SOURCE_DIR}/packaging/changelog' > '${CMAKE_BINARY_DIR}/packaging/changelog.gz'"
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${tocsin_doc_dir})
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${tocsin_doc_dir})

include(CPack)
