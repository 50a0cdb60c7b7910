# Service hosts of a build that talks to the local emulator (tools/emulator) instead of the live
# service: load with `cmake -C cmake/emulator-hosts.cmake`. The ports follow the emulator's base
# port, PICLADE_EMULATOR_PORT_BASE (47580 for the tests).
if(NOT DEFINED PICLADE_EMULATOR_PORT_BASE)
  set(PICLADE_EMULATOR_PORT_BASE 47580 CACHE STRING "Base port of the local emulator")
endif()
math(EXPR main_port "${PICLADE_EMULATOR_PORT_BASE}")
math(EXPR photo_port "${PICLADE_EMULATOR_PORT_BASE} + 2")
math(EXPR image_port "${PICLADE_EMULATOR_PORT_BASE} + 3")
math(EXPR sso_port "${PICLADE_EMULATOR_PORT_BASE} + 363")
set(PICLADE_SSO_HOST "127.0.0.1:${sso_port}" CACHE STRING "" FORCE)
set(PICLADE_MAIN_SITE_HOST "127.0.0.1:${main_port}" CACHE STRING "" FORCE)
set(PICLADE_MAIN_SITE_DOMAIN "127.0.0.1" CACHE STRING "" FORCE)
set(PICLADE_PHOTO_HOST "127.0.0.1:${photo_port}" CACHE STRING "" FORCE)
set(PICLADE_PLACEHOLDER_COVER "http://127.0.0.1:${image_port}/thumb150/placeholder.jpg" CACHE STRING "" FORCE)
# A stall shows in seconds, so that the tests of a dripping host end soon.
set(PICLADE_STALL_WINDOW_MS 6000 CACHE STRING "" FORCE)
