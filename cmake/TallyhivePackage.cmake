# The Debian package, made by CPack from the install rules (scripts/package).
# Its Depends come from the libraries the program links, through
# dpkg-shlibdeps; only what the program starts or loads by name at run time
# is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallyhive)
set(CPACK_PACKAGE_VENDOR Corvanta)
set(CPACK_PACKAGE_CONTACT "Corvanta <support@corvanta.com>")
set(CPACK_PACKAGE_DESCRIPTION [=[
Tallyhive signs in to a mailbox over IMAP with TLS, fetches a folder's
messages into a list, optionally filtered while it fills, and lets you
check rows in bulk or by the text of their sender, subject or date. The
checked rows go, each with its message's plain-text body, to a new
spreadsheet workbook (.xlsx) that opens in your spreadsheet application.

Outlook.com, Hotmail and Live mailboxes are signed in to with a Microsoft
account in the browser; other IMAP servers take a password.]=])
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_SOURCE_DIR}/build/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Every start runs ping to tell whether the machine is online; without it
# each start would claim it is offline.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "iputils-ping")
# Workbooks open through xdg-open, and a remembered sign-in is kept through
# libsecret, which QtKeychain loads by name; without them those two things
# alone are missing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, libsecret-1-0")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libreoffice-calc | gnumeric")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
