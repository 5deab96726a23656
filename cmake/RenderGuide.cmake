# Renders the user guide's Markdown pages to HTML with cmark-gfm (GitHub's
# tables), one page per file, with the links between pages and the heading
# anchors that GitHub gives them, and copies its images.
#   cmake -DCMARK=cmark-gfm -DGUIDE=docs/guide -DOUT=folder -DVERSION=v -P RenderGuide.cmake

# GitHub's anchor for a heading: lower case, punctuation dropped, spaces to "-".
function(heading_slug text out)
  string(REGEX REPLACE "<[^>]*>" "" text "${text}")
  string(TOLOWER "${text}" text)
  string(REGEX REPLACE "[^a-z0-9 _-]" "" text "${text}")
  string(REPLACE " " "-" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
file(GLOB pages RELATIVE ${GUIDE} ${GUIDE}/*.md)
foreach(page ${pages})
  execute_process(COMMAND ${CMARK} --extension table --extension autolink --to html
                          ${GUIDE}/${page}
                  OUTPUT_VARIABLE body RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmark-gfm failed on ${page}")
  endif()
  # Links to other pages of the guide: page.md and page.md#anchor.
  string(REGEX REPLACE "href=\"([A-Za-z0-9_-]+)\\.md([#\"])" "href=\"\\1.html\\2" body "${body}")
  # Anchors on the headings.
  set(done "")
  set(rest "${body}")
  set(title "")
  while(rest MATCHES "<h([1-6])>(.*)$")
    string(FIND "${rest}" "<h${CMAKE_MATCH_1}>" at)
    string(SUBSTRING "${rest}" 0 ${at} before)
    set(level ${CMAKE_MATCH_1})
    math(EXPR start "${at} + 4")
    string(SUBSTRING "${rest}" ${start} -1 rest)
    string(FIND "${rest}" "</h${level}>" end)
    string(SUBSTRING "${rest}" 0 ${end} heading)
    string(SUBSTRING "${rest}" ${end} -1 rest)
    heading_slug("${heading}" slug)
    if(title STREQUAL "")
      string(REGEX REPLACE "<[^>]*>" "" title "${heading}")
    endif()
    string(APPEND done "${before}<h${level} id=\"${slug}\">${heading}")
  endwhile()
  string(APPEND done "${rest}")
  string(REGEX REPLACE "\\.md$" ".html" html ${page})
  file(WRITE ${OUT}/${html}
       "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
       "<title>${title}</title>\n"
       "<style>body{max-width:50em;margin:2em auto;padding:0 1em;font-family:sans-serif;"
       "line-height:1.4}table{border-collapse:collapse}td,th{border:1px solid #999;"
       "padding:.2em .5em}pre,code{background:#f4f4f4}img{max-width:100%}</style>\n"
       "</head>\n<body>\n${done}<hr>\n<p><small>Modular suite ${VERSION}</small></p>\n"
       "</body>\n</html>\n")
endforeach()
file(COPY ${GUIDE}/images DESTINATION ${OUT})
