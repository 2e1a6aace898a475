tw_env_test(sym_test sym_mem_debug FILTER "SymMemDebugEnv.*" ENV "TW_MEMDBG=1")
