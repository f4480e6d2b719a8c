#include "converterapp.h"

int main(int argc, char** argv) {
    varnolt::app::CConverterApp app(argc, argv);
    return app.InitInstance();
}
