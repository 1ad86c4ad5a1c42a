# Run by CPack before it packs: the packaged quorl-capture falls back to the data folder
# compiled into it, which must be where the package puts the data.
if(NOT "@QUORL_DATA_DIR@" STREQUAL "@QUORL_PACKAGE_DATA_DIR@")
  message(FATAL_ERROR
    "this build's quorl-capture would not find the installed data (QUORL_DATA_DIR is "
    "'@QUORL_DATA_DIR@'; the package installs it in @QUORL_PACKAGE_DATA_DIR@). Build the package in a folder "
    "configured with -DQUORL_DATA_DIR=@QUORL_PACKAGE_DATA_DIR@ (tools/make-package.sh does).")
endif()
