export const moduleLoaded = "yes";
