tw_env_test(mem_test mem_debug FILTER "MemDebugEnv.*" ENV "TW_MEMDBG=1")
tw_env_test(mem_test mem_debug_empty FILTER "MemDebugEnv.*" ENV "TW_MEMDBG=")
tw_env_test(mem_test mem_watch FILTER "MemWatchEnv.*" ENV "TW_MEMDBG=1;TW_MEMWATCH=menu")
