// The C runtime layer's units live beside this file.
