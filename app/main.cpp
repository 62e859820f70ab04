// Acelerômetro: live plot of a three-axis accelerometer on a serial port.
#include "tapplication.h"
#include "tform2.h"

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    const int status = RunProgram(application, [] {
        Application->Initialize();
        Application->SetMainFormOnTaskBar(true);
        Application->CreateForm(Form2);
        Application->Run();
    });
    Form2 = nullptr;
    return status;
}
