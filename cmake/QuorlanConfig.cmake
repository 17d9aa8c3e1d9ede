# Addresses the program is built with. The client reads no command line and no
# environment, so everything that differs between a local demo and a real
# deployment is fixed here at configure time.
set(QUORLAN_UPDATE_URL "http://127.0.0.1:8080/patch_quorlan.txt" CACHE STRING "Patch list URL")
set(QUORLAN_SERVER_ADDRESS "127.0.0.1" CACHE STRING "Default coordination server address (dotted IPv4)")
set(QUORLAN_SERVER_PORT "3000" CACHE STRING "Default coordination server port")
# The client's link to the server: TLS (1.2 at least) or plain TCP, and the
# server keys it accepts. Pins: base64 SHA-256 digests of the server's DER
# SubjectPublicKeyInfo, separated by ";" (two during a key change); with TLS
# and no pin the server's certificate must be valid for the address connected
# to under the system's trusted authorities. See docs/security.md.
option(QUORLAN_SERVER_TLS "Client speaks TLS to the coordination server" OFF)
set(QUORLAN_SERVER_PIN "" CACHE STRING "Pinned server keys: base64 SHA-256 of the DER SubjectPublicKeyInfo, ';'-separated")
foreach(pin IN LISTS QUORLAN_SERVER_PIN)
    string(STRIP "${pin}" pin)
    string(LENGTH "${pin}" length)
    if(NOT pin MATCHES "^[A-Za-z0-9+/]+=$" OR NOT length EQUAL 44)
        message(FATAL_ERROR "QUORLAN_SERVER_PIN: \"${pin}\" is not the base64 of a SHA-256 digest "
                            "(44 characters ending in '='; pins are separated by ';', none empty)")
    endif()
endforeach()
if(NOT QUORLAN_SERVER_PIN STREQUAL "" AND NOT QUORLAN_SERVER_TLS)
    message(FATAL_ERROR "QUORLAN_SERVER_PIN is set but QUORLAN_SERVER_TLS is OFF: pins need TLS")
endif()
if(QUORLAN_SERVER_TLS)
    set(QUORLAN_SERVER_TLS_CXX true)
else()
    set(QUORLAN_SERVER_TLS_CXX false)
endif()
set(QUORLAN_UPDATE_PUBLIC_KEY "" CACHE STRING "Maker's Ed25519 public key, hex (empty: no update is ever installed)")
set(QUORLAN_SMS_GATEWAY_URL "http://127.0.0.1:8080" CACHE STRING "Scheme, host and port of the SMS gateway")
set(QUORLAN_DEFAULT_BOARD_URL "http://127.0.0.1:8080/bbs/zboard.php?id=share" CACHE STRING "Board address shown at first")
set(QUORLAN_BROWSER_HOME_URL "http://127.0.0.1:8080/" CACHE STRING "Home page of the board browser")
set(QUORLAN_HOME_PAGE_URL "http://127.0.0.1:8080/" CACHE STRING "Product home page (help menu)")
set(QUORLAN_PORTAL1_URL "http://127.0.0.1:8080/portal/naver" CACHE STRING "First portal button")
set(QUORLAN_PORTAL2_URL "http://127.0.0.1:8080/portal/daum" CACHE STRING "Second portal button")

configure_file(${CMAKE_CURRENT_LIST_DIR}/BuildConfig.h.in ${CMAKE_BINARY_DIR}/generated/quorlan/BuildConfig.h @ONLY)
add_library(quorlan_build_config INTERFACE)
target_include_directories(quorlan_build_config INTERFACE ${CMAKE_BINARY_DIR}/generated)
