# Helpers for the Qt test executables. Every Qt test runs on the offscreen
# platform with HOME and the config folder pointed into the build tree, so no
# test ever touches the user's own files.
include_guard(GLOBAL)

# pictoria_add_qt_test(<name> <sources>... [LIBS <libs>...])
function(pictoria_add_qt_test name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS} pictoria_warnings)
  set(home ${CMAKE_CURRENT_BINARY_DIR}/home-${name})
  file(MAKE_DIRECTORY ${home})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/.config;QT_LOGGING_RULES=qt.qpa.*=false"
    TIMEOUT 300)
endfunction()

# Window tests: each named tst_<name>.cpp of the calling folder becomes one
# test that runs the real forms. pxfm.dat is copied beside the executables,
# where the program looks for it.
# pictoria_add_window_tests(<stem>...)
function(pictoria_add_window_tests)
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  foreach(stem ${ARGN})
    set(source ${CMAKE_CURRENT_SOURCE_DIR}/${stem}.cpp)
    set(name ${folder}_${stem})
    pictoria_add_qt_test(${name} ${source} LIBS pictoria_app pictoria_testsupport pixmorph)
    target_compile_definitions(${name} PRIVATE PICTORIA_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus")
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${stem}
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endforeach()
  configure_file(${PROJECT_SOURCE_DIR}/data/pxfm.dat ${CMAKE_CURRENT_BINARY_DIR}/pxfm.dat COPYONLY)
endfunction()
