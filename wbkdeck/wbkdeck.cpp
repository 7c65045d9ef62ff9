// wbkdeck: checks a sound bank, lists and plays its samples, or extracts them.
#include <iostream>

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::cerr << "Usage:" << argv[0] << " .wbk" << std::endl;
        return -1;
    }
    return 0;
}
