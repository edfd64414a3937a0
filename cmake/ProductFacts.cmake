# The product's facts that the build needs, read from their one home, product/product.h:
#   BRINDLEWICK_NAME, BRINDLEWICK_ORGANIZATION, BRINDLEWICK_VERSION, BRINDLEWICK_COPYRIGHT,
#   BRINDLEWICK_DESKTOP_ID, BRINDLEWICK_SUPPORT_EMAIL, BRINDLEWICK_HOME_PAGE
function(brindlewick_product_fact variable constant)
  file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../product/product.h line REGEX "${constant}\\[\\] = \"")
  if(NOT line MATCHES "\"([^\"]+)\"")
    message(FATAL_ERROR "product/product.h has no ${constant}")
  endif()
  set(${variable} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()

brindlewick_product_fact(BRINDLEWICK_NAME kName)
brindlewick_product_fact(BRINDLEWICK_ORGANIZATION kOrganization)
brindlewick_product_fact(BRINDLEWICK_VERSION kVersion)
brindlewick_product_fact(BRINDLEWICK_COPYRIGHT kCopyright)
brindlewick_product_fact(BRINDLEWICK_DESKTOP_ID kDesktopId)
brindlewick_product_fact(BRINDLEWICK_SUPPORT_EMAIL kSupportEmail)
brindlewick_product_fact(BRINDLEWICK_HOME_PAGE kHomePage)
