namespace kov {} // placeholder
