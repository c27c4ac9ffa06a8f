# Writes the robot's systemd unit for the prefix being installed to and installs it under
# lib/systemd/system, and its logrotate rule under /etc (for /usr) or the prefix's etc. Run by
# `cmake --install` and by CPack, with JACKWELL_UNIT_TEMPLATE, JACKWELL_LOGROTATE_RULE,
# JACKWELL_UNIT_WORK and JACKWELL_BINDIR set by the install rules.
if(IS_ABSOLUTE "${JACKWELL_BINDIR}")
    set(JACKWELL_KEEPER_EXECUTABLE "${JACKWELL_BINDIR}/jackwell-keeper")
else()
    set(JACKWELL_KEEPER_EXECUTABLE "${CMAKE_INSTALL_PREFIX}/${JACKWELL_BINDIR}/jackwell-keeper")
endif()
# One file per prefix, so that two installs at once (a test's and a package's) never share one.
string(MD5 prefix_tag "${CMAKE_INSTALL_PREFIX}")
set(unit "${JACKWELL_UNIT_WORK}/${prefix_tag}/jackwell-keeper.service")
configure_file("${JACKWELL_UNIT_TEMPLATE}" "${unit}" @ONLY)
file(INSTALL "${unit}" DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/system")
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(etc "/etc")
else()
    set(etc "${CMAKE_INSTALL_PREFIX}/etc")
endif()
file(INSTALL "${JACKWELL_LOGROTATE_RULE}" DESTINATION "${etc}/logrotate.d"
     RENAME jackwell-keeper)
