tw_env_test(strbuf_test strbuf_strdisable_memdbg FILTER "StrBufDisableEnv.*" ENV "TW_STRDISABLE=1" "TW_MEMDBG=1")
