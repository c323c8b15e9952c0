// Marks a test program that needs an X server without the window fixture (it
// talks to the server itself). Including it, like including window.h or
// program.h, makes CTest run the program whole, as one test, on an X server of
// its own (tests/with_display.sh): DISPLAY names that server, which no other
// test program shares and which never resets while the program runs.
#pragma once
