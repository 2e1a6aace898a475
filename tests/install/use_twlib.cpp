// use_twlib.cpp - a C++ program built against an installed twlib.
#include <cstdio>

#include "twlib/twlib.h"

int main()
{
    twStrBuf *b = twStrBufCreate(4);
    twStrBufAppend(b, "sub");
    twStrBufAppend(b, "menu");
    std::printf("c++: %s\n", twStrBufString(b));
    twStrBufDestroy(b);
    twGoodbye();
}
