# molvane_library(name SOURCES... [QT]) : one static library per folder.
function(molvane_library name)
  cmake_parse_arguments(ML "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ML_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ML_DEPS)
    target_link_libraries(${name} PUBLIC ${ML_DEPS})
  endif()
endfunction()

# The plain layers must stay free of Qt so they build and test headless.
function(molvane_no_qt name)
  get_target_property(libs ${name} LINK_LIBRARIES)
  if(libs)
    foreach(l ${libs})
      if(l MATCHES "Qt")
        message(FATAL_ERROR "${name} must not link Qt (${l})")
      endif()
    endforeach()
  endif()
endfunction()

# molvane_test(name SOURCES... DEPS...) : one GoogleTest executable registered with CTest.
function(molvane_test name)
  cmake_parse_arguments(MT "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${MT_SOURCES})
  target_link_libraries(${name} PRIVATE ${MT_DEPS} mv_test_support GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    MOLVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    MOLVANE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  molvane_quick_test_build(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "${MT_LABELS}")
endfunction()

# Test programs are many and thin around the optimised libraries they call: in the normal
# build they are compiled for a short build rather than for speed or a debugger.
function(molvane_quick_test_build name)
  if(CMAKE_BUILD_TYPE STREQUAL "RelWithDebInfo")
    target_compile_options(${name} PRIVATE -O1 -g0)
  endif()
endfunction()

# molvane_folder_library(name DEPS ...) : the folder's sources (*.cpp, *.h, *.ui, *.qrc) as one static library.
function(molvane_folder_library name)
  cmake_parse_arguments(ML "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.ui ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  list(FILTER srcs INCLUDE REGEX "\\.cpp$|\\.h$|\\.ui$|\\.qrc$")
  if(NOT srcs MATCHES "\\.cpp")
    return()  # nothing built here yet
  endif()
  foreach(d ${ML_DEPS})
    if(NOT TARGET ${d})
      message(FATAL_ERROR "${name}: dependency ${d} is not a target")
    endif()
  endforeach()
  molvane_library(${name} SOURCES ${srcs} DEPS ${ML_DEPS})
endfunction()

# molvane_test_folder(DEPS ...) : one test executable per *_test.cpp in the folder.
function(molvane_test_folder)
  cmake_parse_arguments(MT "" "" "DEPS;LABELS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_helpers.cpp)
  foreach(d ${MT_DEPS})
    if(NOT TARGET ${d})
      message(FATAL_ERROR "tests in ${CMAKE_CURRENT_SOURCE_DIR}: dependency ${d} is not a target")
    endif()
  endforeach()
  set(deps ${MT_DEPS})
  foreach(t ${tests})
    get_filename_component(n ${t} NAME_WE)
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
    string(REPLACE "/" "_" prefix "${rel}")
    molvane_test(${prefix}_${n} SOURCES ${t} ${helpers} DEPS ${deps} LABELS "${MT_LABELS}")
  endforeach()
endfunction()
