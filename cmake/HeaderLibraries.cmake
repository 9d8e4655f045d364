# Header-only libraries from Debian's packages: nlohmann/json (JSON) and
# Boost (Asio and Beast: HTTP). Both builds see them through a folder that
# holds only these two, so the Windows cross-compiler never picks up
# anything else from the host's /usr/include.
set(DULVET_HOST_INCLUDE /usr/include CACHE PATH "Where Debian puts nlohmann/ and boost/")
set(dulvet_header_dir ${CMAKE_BINARY_DIR}/header-libraries)
file(MAKE_DIRECTORY ${dulvet_header_dir})
foreach(name nlohmann boost)
  if(NOT EXISTS ${DULVET_HOST_INCLUDE}/${name})
    message(FATAL_ERROR "${DULVET_HOST_INCLUDE}/${name} is missing: bash scripts/install-deps.sh installs it")
  endif()
  file(CREATE_LINK ${DULVET_HOST_INCLUDE}/${name} ${dulvet_header_dir}/${name} SYMBOLIC)
endforeach()

add_library(dulvet_json INTERFACE)
target_include_directories(dulvet_json SYSTEM INTERFACE ${dulvet_header_dir})

add_library(dulvet_asio INTERFACE)
target_include_directories(dulvet_asio SYSTEM INTERFACE ${dulvet_header_dir})
target_compile_definitions(dulvet_asio INTERFACE BOOST_ASIO_NO_DEPRECATED)
find_package(Threads REQUIRED)
target_link_libraries(dulvet_asio INTERFACE Threads::Threads)
if(WIN32)
  target_link_libraries(dulvet_asio INTERFACE ws2_32 mswsock)
endif()
