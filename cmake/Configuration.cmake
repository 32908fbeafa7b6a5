# Deployment data. The defaults point at the project's own loopback servers
# (tests/servers), so a fresh checkout runs end to end without outside services;
# a release build sets the maker's values.
set(KV_COMPONENT_SERVICE_URL "http://127.0.0.1:18601/component" CACHE STRING
    "URL of the component service that names the installer to fetch")
set(KV_ANALYTICS_HOST "127.0.0.1" CACHE STRING "Host of the analytics collection endpoint")
set(KV_ANALYTICS_PORT "18602" CACHE STRING "Port of the analytics collection endpoint (443 in release)")
option(KV_ANALYTICS_HTTPS "Reach the analytics collection endpoint over HTTPS" OFF)
set(KV_ANALYTICS_PROPERTY_ID "UA-00000000-1" CACHE STRING "Analytics property (tracking) id")
set(KV_SIGNER_SERIAL "4B560001" CACHE STRING
    "Serial number (hex, most significant byte first) of the expected code-signing certificate")
set(KV_SIGNER_ISSUER "Korvane Test CA" CACHE STRING "Issuer (simple display name) of the expected code signer")
set(KV_SIGNER_SUBJECT "Korvane Test Code Signing" CACHE STRING "Subject (simple display name) of the expected code signer")

# Tests that run the programs against the loopback servers need the configured
# endpoints to be loopback ones.
set(KV_COMPONENT_LOOPBACK_PORT "")
if(KV_COMPONENT_SERVICE_URL MATCHES "^http://127\\.0\\.0\\.1:([0-9]+)/component$")
  set(KV_COMPONENT_LOOPBACK_PORT ${CMAKE_MATCH_1})
endif()
set(KV_ANALYTICS_LOOPBACK OFF)
if(KV_ANALYTICS_HOST STREQUAL "127.0.0.1" AND NOT KV_ANALYTICS_HTTPS)
  set(KV_ANALYTICS_LOOPBACK ON)
endif()

if(KV_ANALYTICS_HTTPS)
  set(KV_ANALYTICS_HTTPS_VALUE 1)
else()
  set(KV_ANALYTICS_HTTPS_VALUE 0)
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/kv_config.h.in ${CMAKE_BINARY_DIR}/generated/kv_config.h @ONLY)

# Scheme and host of the action-link redirector behind the installer page's
# EULA and privacy-policy links (the page adds the path "/action/").
set(KV_ACTION_LINK_ORIGIN "http://127.0.0.1:18603" CACHE STRING
    "Scheme and host of the action-link redirector that the installer page's links go to")
