# Build-time helpers shared by the folders.

# Precompiled Qt headers for the targets with many Qt sources: Qt's headers
# take about half of the time of compiling a window or its test, and CI
# builds them on every run. Making the header costs more than one source
# file, so targets of a few files go without.
option(QUILLMEND_PCH "Precompile the Qt headers of the larger GUI targets" ON)

# quillmend_qt_pch(<target> [TEST])
function(quillmend_qt_pch target)
  cmake_parse_arguments(ARG "TEST" "" "" ${ARGN})
  if(NOT QUILLMEND_PCH)
    return()
  endif()
  set(headers <QApplication> <QDialog> <QFile> <QFileInfo> <QDir> <QHeaderView> <QImage> <QKeyEvent>
              <QLabel> <QLineEdit> <QMenu> <QMessageBox> <QMouseEvent> <QPainter> <QPixmap> <QProgressBar>
              <QPushButton> <QScreen> <QString> <QTimer> <QTreeWidget> <QVBoxLayout> <QWidget>)
  if(ARG_TEST)
    list(APPEND headers <gtest/gtest.h> <gmock/gmock.h> <QSignalSpy> <QTest>)
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()

# Tests carry line tables only: enough for a failure's backtrace and for the
# sanitizers' reports, at about two thirds of the compile time of full debug
# information. QUILLMEND_TEST_FULL_DEBUG_INFO keeps all of it, to step
# through a test in a debugger.
option(QUILLMEND_TEST_FULL_DEBUG_INFO "Full debug information in the test programs" OFF)

function(quillmend_test_debug_info target)
  if(NOT QUILLMEND_TEST_FULL_DEBUG_INFO)
    target_compile_options(${target} PRIVATE $<$<CONFIG:Debug,RelWithDebInfo>:-g1>)
  endif()
endfunction()

# A library's or test program's sources are compiled in batches, several
# files to one compiler run: each file instantiates much the same standard
# library, Qt and GoogleTest templates, and a batch generates them once.
# The tests of one folder took about a quarter of the processor time that
# way. Working on one file recompiles its batch; QUILLMEND_UNITY=OFF
# compiles each file alone. Source files therefore keep their file-local
# names apart and put no using-directive at namespace scope (a batch is one
# translation unit). Files that catch faults or run in signal handlers are
# compiled alone, so that what the optimiser sees of them stays as written.
option(QUILLMEND_UNITY "Compile the libraries' and test programs' sources in batches" ON)

function(quillmend_unity target)
  if(QUILLMEND_UNITY)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
    # A class in a file's anonymous namespace is file-local as intended;
    # GCC warns of it only because the batch includes the file.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
    endif()
  endif()
endfunction()
