tw_env_test(str_test str_fresh_pool FILTER "StrFreshPoolEnv.*")
tw_env_test(str_test str_purify FILTER "StrPurifyEnv.*" ENV "TW_PURIFY=1")
tw_env_test(str_test str_strdisable_memdbg FILTER "StrDisableMemDbgEnv.*" ENV "TW_STRDISABLE=1" "TW_MEMDBG=1")
tw_env_test(str_test str_memdbg FILTER "StrMemDbgEnv.*" ENV "TW_MEMDBG=1")
