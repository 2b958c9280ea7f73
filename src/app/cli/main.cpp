// trazel-cli: the batch front end.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: trazel-cli VERB ...\n");
        return 2;
    }
    std::fprintf(stderr, "trazel-cli: unknown verb \"%s\"\n", argv[1]);
    return 2;
}
