// Brivola Uninstaller for macOS: one window that confirms, runs the removal script stored among the
// application's resources as root through the system's administrator-approval dialog, and reports.
#import "AppDelegate.h"

int main (int argc, const char* argv[])
{
    (void) argc;
    (void) argv;

    @autoreleasepool
    {
        NSApplication* application = [NSApplication sharedApplication];
        // The application holds its delegate weakly; this reference keeps it for the whole run.
        AppDelegate* delegate = [[AppDelegate alloc] init];
        application.delegate = delegate;
        [application run];
    }
    return 0;
}
