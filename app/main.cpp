// Acelerômetro: live plot of a three-axis accelerometer on a serial port.
#include "display_check.h"
#include "tapplication.h"
#include "tform2.h"

#include <memory>

int main(int argc, char** argv)
{
    // Without a display Qt cannot start: say so and end with 0.
    auto displayCheck = std::make_unique<TDisplayCheck>(argv[0]);
    TApplication application(argc, argv);
    displayCheck.reset();
    const int status = RunProgram(application, [] {
        Application->Initialize();
        Application->SetMainFormOnTaskBar(true);
        Application->CreateForm(Form2);
        Application->Run();
    });
    Form2 = nullptr;
    return status;
}
