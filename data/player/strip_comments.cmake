# Writes the browser player as visitors download it: the source without its
# header comment, comment-only lines, indentation and blank lines (about a
# third smaller, and the page's first visit pays for every byte). The code
# itself is left as it is: no line holds a string that goes on to the next.
#   cmake -DSOURCE=... -DOUTPUT=... -P strip_comments.cmake
file(READ "${SOURCE}" text)
string(FIND "${text}" "\n */\n" header_end)
if(header_end LESS 0 OR NOT text MATCHES "^/\\*")
  message(FATAL_ERROR "${SOURCE}: no header comment ending in \" */\"")
endif()
math(EXPR code_start "${header_end} + 5")
string(SUBSTRING "${text}" ${code_start} -1 code)
string(REGEX REPLACE "\n[ ]*//[^\n]*" "\n" code "\n${code}")
string(REGEX REPLACE "\n[ ]+" "\n" code "${code}")
string(REGEX REPLACE "\n\n+" "\n" code "${code}")
string(REGEX REPLACE "^\n" "" code "${code}")
file(WRITE "${OUTPUT}"
  "// Sonavelt page sound player; its source with comments: data/player/sonavelt-player.js\n${code}")
