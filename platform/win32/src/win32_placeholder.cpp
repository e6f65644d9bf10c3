// The Windows-name layer's units live beside this file.
