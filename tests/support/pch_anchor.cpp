// The precompiled GoogleTest headers of the test programs are built with this file.
