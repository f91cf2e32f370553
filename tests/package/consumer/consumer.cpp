// Loads a message with the installed library, writes it as .eml and prints how many top-level properties it has,
// so the test sees the library read and write a real file.
#include <iostream>
#include <memory>

#include <pelmsg.h>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    std::unique_ptr<pelmsg::TPelMessage> message = pelmsg::CreateMessageForFile(argv[1]);
    try {
        message->LoadFromFile(argv[1]);
        pelmsg::SaveToEMLFile(message->Properties(), argv[2]);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    int count = 0;
    for (const pelmsg::TMSGProperty* node : message->Properties())
        count += node != nullptr;
    std::cout << "properties " << count << "\n";
    return 0;
}
