namespace kov {} // filled by the print-output work
