# SPDX-License-Identifier: MIT
# The release notes in CHANGELOG.md: its newest entry must be this project's version, and its date
# is the release date that the AppStream description and the manual pages carry
# (ZAPLO_RELEASE_DATE, YYYY-MM-DD). zaplo_debian_changelog() writes them out in the format of a
# Debian changelog for one package.
set(ZAPLO_CHANGELOG ${CMAKE_SOURCE_DIR}/CHANGELOG.md)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZAPLO_CHANGELOG})

# Each release: "## <version> (<YYYY-MM-DD>)" and its "- " items, an item continued on indented
# lines. ZAPLO_RELEASES holds the releases' indices, newest first; ZAPLO_RELEASE_<i>_VERSION,
# _DATE and _ITEMS (one joined line per item) describe each.
file(READ ${ZAPLO_CHANGELOG} zaplo_changelog_text)
# One line per list element; ";" and brackets would break the list, so they are masked.
string(REPLACE ";" "<semicolon>" zaplo_changelog_text "${zaplo_changelog_text}")
string(REPLACE "[" "<open>" zaplo_changelog_text "${zaplo_changelog_text}")
string(REPLACE "]" "<close>" zaplo_changelog_text "${zaplo_changelog_text}")
string(REPLACE "\n" ";" zaplo_changelog_lines "${zaplo_changelog_text}")
set(ZAPLO_RELEASES "")
set(zaplo_release -1)
set(zaplo_item "")
macro(zaplo_end_item)
    if(NOT zaplo_item STREQUAL "")
        list(APPEND ZAPLO_RELEASE_${zaplo_release}_ITEMS "${zaplo_item}")
        set(zaplo_item "")
    endif()
endmacro()
foreach(line IN LISTS zaplo_changelog_lines)
    if(line MATCHES "^## ")
        zaplo_end_item()
        set(date_pattern "[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]")
        if(NOT line MATCHES "^## ([0-9][0-9A-Za-z.+~]*) \\((${date_pattern})\\)$")
            message(FATAL_ERROR "CHANGELOG.md: a release heading reads \"${line}\", not "
                                "\"## <version> (<YYYY-MM-DD>)\"")
        endif()
        math(EXPR zaplo_release "${zaplo_release} + 1")
        list(APPEND ZAPLO_RELEASES ${zaplo_release})
        set(ZAPLO_RELEASE_${zaplo_release}_VERSION ${CMAKE_MATCH_1})
        set(ZAPLO_RELEASE_${zaplo_release}_DATE ${CMAKE_MATCH_2})
        set(ZAPLO_RELEASE_${zaplo_release}_ITEMS "")
    elseif(zaplo_release GREATER -1)
        if(line MATCHES "^- (.*)$")
            zaplo_end_item()
            set(zaplo_item "${CMAKE_MATCH_1}")
        elseif(line MATCHES "^[ \t]+(.*)$" AND NOT zaplo_item STREQUAL "")
            string(APPEND zaplo_item " ${CMAKE_MATCH_1}")
        elseif(line STREQUAL "")
            zaplo_end_item()
        else()
            message(FATAL_ERROR
                    "CHANGELOG.md: \"${line}\" is neither a \"- \" item nor part of one")
        endif()
    endif()
endforeach()
zaplo_end_item()

if(zaplo_release EQUAL -1)
    message(FATAL_ERROR "CHANGELOG.md has no release")
endif()
if(NOT ZAPLO_RELEASE_0_VERSION STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "CHANGELOG.md's newest release is ${ZAPLO_RELEASE_0_VERSION}, "
                        "the project is ${PROJECT_VERSION}: add the release to CHANGELOG.md")
endif()
foreach(release IN LISTS ZAPLO_RELEASES)
    if("${ZAPLO_RELEASE_${release}_ITEMS}" STREQUAL "")
        message(FATAL_ERROR "CHANGELOG.md: release ${ZAPLO_RELEASE_${release}_VERSION} lists "
                            "no change")
    endif()
endforeach()
set(ZAPLO_RELEASE_DATE ${ZAPLO_RELEASE_0_DATE})

# zaplo_rfc2822_date(<YYYY-MM-DD> <out>): that day at midnight UTC as a Debian changelog writes
# it ("Mon, 07 Dec 2026 00:00:00 +0000"); the weekday by Sakamoto's method.
function(zaplo_rfc2822_date date out)
    string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" unused "${date}")
    set(year ${CMAKE_MATCH_1})
    math(EXPR month "1${CMAKE_MATCH_2} - 100")
    math(EXPR day "1${CMAKE_MATCH_3} - 100")
    set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
    math(EXPR index "${month} - 1")
    list(GET offsets ${index} offset)
    set(y ${year})
    if(month LESS 3)
        math(EXPR y "${y} - 1")
    endif()
    math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
    set(weekdays Sun Mon Tue Wed Thu Fri Sat)
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(GET weekdays ${weekday} weekday_name)
    list(GET months ${index} month_name)
    set(${out} "${weekday_name}, ${CMAKE_MATCH_3} ${month_name} ${year} 00:00:00 +0000"
        PARENT_SCOPE)
endfunction()

# zaplo_wrap(<text> <first prefix> <next prefix> <out>): the words of text on lines of at most
# 78 columns, the first line after first prefix, the others after next prefix.
function(zaplo_wrap text first next out)
    string(REGEX REPLACE "[ \t]+" ";" words "${text}")
    set(result "")
    set(line "${first}")
    set(line_has_word FALSE)
    foreach(word IN LISTS words)
        # Measured as printed: each masked character is one column.
        string(REGEX REPLACE "<(semicolon|open|close)>" "." shown "${line} ${word}")
        string(LENGTH "${shown}" length)
        if(line_has_word AND length GREATER 78)
            string(APPEND result "${line}\n")
            set(line "${next}${word}")
        elseif(line_has_word)
            string(APPEND line " ${word}")
        else()
            string(APPEND line "${word}")
        endif()
        set(line_has_word TRUE)
    endforeach()
    string(APPEND result "${line}\n")
    set(${out} "${result}" PARENT_SCOPE)
endfunction()

# zaplo_debian_changelog(<package> <maintainer> <file>): every release, newest first, as that
# package's Debian changelog.
function(zaplo_debian_changelog package maintainer file)
    set(text "")
    foreach(release IN LISTS ZAPLO_RELEASES)
        string(APPEND text "${package} (${ZAPLO_RELEASE_${release}_VERSION}) unstable; "
                           "urgency=medium\n\n")
        foreach(item IN LISTS ZAPLO_RELEASE_${release}_ITEMS)
            zaplo_wrap("${item}" "  * " "    " wrapped)
            string(APPEND text "${wrapped}")
        endforeach()
        zaplo_rfc2822_date(${ZAPLO_RELEASE_${release}_DATE} date)
        string(APPEND text "\n -- ${maintainer}  ${date}\n\n")
    endforeach()
    string(REGEX REPLACE "\n\n$" "\n" text "${text}")
    string(REPLACE "<semicolon>" ";" text "${text}")
    string(REPLACE "<open>" "[" text "${text}")
    string(REPLACE "<close>" "]" text "${text}")
    # Written only when it changed, so an unchanged changelog is not compressed again.
    file(WRITE ${file}.new "${text}")
    file(COPY_FILE ${file}.new ${file} ONLY_IF_DIFFERENT)
    file(REMOVE ${file}.new)
endfunction()
