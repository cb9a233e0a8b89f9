# Run by CPack before each package: the time it stamps on every file, so that two builds of one commit are byte-identical.
# Sets SOURCE_DATE_EPOCH, unless the environment has it already, to the last
# commit's time: in a tarball made by git archive, the time that it wrote
# into commit-time; in a checkout, git's; else to midnight (UTC) of the
# release date at the top of CHANGELOG.md.

if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(source "${CPACK_PARTITIONS_SOURCE_DIR}")
  file(STRINGS "${source}/cmake/commit-time" epoch LIMIT_COUNT 1)
  if(NOT epoch MATCHES "^[0-9]+$" AND EXISTS "${source}/.git")
    execute_process(COMMAND git -C "${source}" log -1 --format=%ct
      OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT epoch MATCHES "^[0-9]+$")
    # "## [1.2.0] - 2026-12-07"; days from the civil date, after Howard
    # Hinnant's days_from_civil.
    file(STRINGS "${source}/CHANGELOG.md" release LIMIT_COUNT 1
      REGEX "^## \\[[0-9.]+\\] - [0-9]+-[0-9]+-[0-9]+$")
    if(NOT release MATCHES "([0-9]+)-0*([0-9]+)-0*([0-9]+)$")
      message(FATAL_ERROR "no release date at the top of CHANGELOG.md")
    endif()
    set(y ${CMAKE_MATCH_1})
    set(m ${CMAKE_MATCH_2})
    set(d ${CMAKE_MATCH_3})
    if(m LESS_EQUAL 2)
      math(EXPR y "${y} - 1")
      math(EXPR m "${m} + 9")
    else()
      math(EXPR m "${m} - 3")
    endif()
    math(EXPR era "${y} / 400")
    math(EXPR yoe "${y} - ${era} * 400")
    math(EXPR doy "(153 * ${m} + 2) / 5 + ${d} - 1")
    math(EXPR doe "${yoe} * 365 + ${yoe} / 4 - ${yoe} / 100 + ${doy}")
    math(EXPR epoch "(${era} * 146097 + ${doe} - 719468) * 86400")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
