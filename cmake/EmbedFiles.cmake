# Writes a C++ source that holds every file of a folder, so a program carries
# data that lives in the repository as plain files. Run as a script:
#
#   cmake -DDIR=folder -DLABEL=name -DOUT=file.cpp -DHEADER=os/sim/DemoMachine.h
#         -DNAMESPACE=os::sim -DFUNCTION=DemoMachineFiles -P cmake/EmbedFiles.cmake
#
# The source defines `std::map<std::string, std::vector<uint8_t>> FUNCTION()`
# (declared in HEADER): each file's bytes by its path below DIR, with '/'
# between folders. LABEL names DIR in the source's first comment. OUT is
# rewritten only when its text changes.
foreach(var DIR LABEL OUT HEADER NAMESPACE FUNCTION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "EmbedFiles.cmake: -D${var}=... is missing")
  endif()
endforeach()

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${DIR} ${DIR}/*)
list(SORT files)

set(arrays "")
set(table "")
set(index 0)
foreach(rel ${files})
  file(READ ${DIR}/${rel} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  if(size EQUAL 0)
    set(bytes "0")
  else()
    # Sixteen bytes a line.
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REPEAT "0x..," 16 line)
    string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
    string(REGEX REPLACE "\n    $" "" bytes "${bytes}")
  endif()
  if(rel MATCHES "[\"\\\\]")
    message(FATAL_ERROR "EmbedFiles.cmake: ${rel}: a file name with a quote or a backslash")
  endif()
  string(APPEND arrays "// ${rel}\nconst unsigned char kFile${index}[] = {\n    ${bytes}\n};\n\n")
  string(APPEND table "    {\"${rel}\", kFile${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
if(index EQUAL 0)
  message(FATAL_ERROR "EmbedFiles.cmake: ${DIR} holds no files")
endif()

set(text "// Generated at build time by cmake/EmbedFiles.cmake from the files of
// ${LABEL}/. Not tracked: change those files instead.
#include \"${HEADER}\"

#include <cstddef>

namespace ${NAMESPACE} {
namespace {

${arrays}struct EmbeddedFile {
  const char* Path;
  const unsigned char* Bytes;
  size_t Size;
};

const EmbeddedFile kFiles[] = {
${table}};

}  // namespace

std::map<std::string, std::vector<uint8_t>> ${FUNCTION}() {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const EmbeddedFile& f : kFiles) files[f.Path].assign(f.Bytes, f.Bytes + f.Size);
  return files;
}

}  // namespace ${NAMESPACE}
")

set(old "")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUT} "${text}")
endif()
